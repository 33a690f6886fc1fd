#pragma once
// Resource identifiers of Brevane.
#define IDR_MAINFRAME 128
