# Shared settings for every target of ours (not for third-party code such as GoogleTest).

set(BREVANE_WARNINGS -Wall -Wextra -Werror)

function(brevane_target_defaults target)
  target_compile_options(${target} PRIVATE ${BREVANE_WARNINGS})
  if(BREVANE_WINDOWS)
    # Narrow strings in the ANSI code page: never let UNICODE select the W functions.
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    target_compile_options(${target} PRIVATE -UUNICODE -U_UNICODE)
  endif()
  if(BREVANE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(BREVANE_FUZZ)
    # A report of undefined behaviour ends the run as a crash, so that the fuzz tier fails on
    # it instead of printing it and going on.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
  endif()
endfunction()

# Executables for Windows are linked statically so that they run with no MinGW DLLs beside them.
function(brevane_windows_exe target)
  brevane_target_defaults(${target})
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

# Post-link step of every image we ship (production builds): the symbols and debugging data
# move into <name>.debug beside the image, and the image keeps only a .gnu_debuglink section
# naming that file and its checksum, so that gdb or objdump finds the symbols again when a
# crash dump comes back from the field. Simulation builds keep their symbols.
#
# Later post-link steps of a shipped image (changes to its headers, signing) chain after this
# one: POST_BUILD commands run in the order they are added, so add them after this call. The
# debug link names the .debug file and checks that file's checksum, not the image's, so later
# changes to the image keep the link valid.
function(brevane_strip_release_image target)
  if(NOT BREVANE_WINDOWS OR BREVANE_SIMULATION)
    return()
  endif()
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "objcopy of the MinGW binutils not found: cannot strip ${target}")
  endif()
  # objcopy stores only the file name in the link and reads the file to checksum it, so both
  # run in the image's folder.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_BASE_NAME:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_BASE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Stripping ${target}; its symbols go into a .debug file beside it"
    VERBATIM)
endfunction()

# Collects the sources of one program's folder into one library per platform:
#   portable files (no <windows.h>)                  in every build;
#   "*_win32.cpp"  Win32-bound                         in Windows builds;
#   "*_sim_win32.cpp" simulation of platform answers   in Windows simulation builds only;
#   "*_posix.cpp"  native stand-ins for the OS seam    in native builds only;
#   "main_win32.cpp" a program's entry point           never (the executable adds it).
function(brevane_library target folder)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS "${folder}/*.cpp" "${folder}/*.c")
  set(sources "")
  foreach(f IN LISTS all)
    get_filename_component(name "${f}" NAME)
    if(name STREQUAL "main_win32.cpp")
      continue()
    elseif(name MATCHES "_sim_win32\\.(cpp|c)$")
      if(BREVANE_WINDOWS AND BREVANE_SIMULATION)
        list(APPEND sources "${f}")
      endif()
    elseif(name MATCHES "_win32\\.(cpp|c)$")
      if(BREVANE_WINDOWS)
        list(APPEND sources "${f}")
      endif()
    elseif(name MATCHES "_posix\\.(cpp|c)$")
      if(NOT BREVANE_WINDOWS)
        list(APPEND sources "${f}")
      endif()
    else()
      list(APPEND sources "${f}")
    endif()
  endforeach()
  if(NOT sources)
    return()  # nothing written yet for this program; callers test if(TARGET ...)
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  brevane_target_defaults(${target})
  if(BREVANE_WINDOWS AND BREVANE_SIMULATION)
    target_compile_definitions(${target} PUBLIC BREVANE_SIMULATION=1)
  endif()
endfunction()
