"""End-to-end harness: runs the real Windows programs under Wine and Xvfb and observes them.

Modules, one purpose each:
  builds     where the built programs and harness tools are (skip when one is missing)
  wine       the Wine environment, the prefix, the display, Linux <-> Windows paths
  runner     running a command line under a time bound with the full 32-bit exit code
  uidriver   driving dialogs and message boxes of a running program
  msglisten  recording the "SfxKorvaleMsg" broadcast
  logs       reading log files byte for byte, comparing lines without their time stamps
  artifacts  screenshots and other files a person looks at after the run
"""
