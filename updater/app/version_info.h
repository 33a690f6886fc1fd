#pragma once
// The program's version, shared by the resource script and the "Brevane_Start" log line.
#define BREVANE_VERSION_MAJOR 1
#define BREVANE_VERSION_MINOR 0
#define BREVANE_VERSION_PATCH 0
#define BREVANE_VERSION_BUILD 0
#define BREVANE_VERSION_TEXT "1.0.0.0"
