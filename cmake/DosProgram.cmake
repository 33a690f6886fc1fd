# Real-mode DOS programs built with the host's gcc (-m16) and GNU ld into flat images at 0x100
# (dos/dos.ld), then wrapped by devtools/dosstub/dosstub.py. Used by dos/ and the DOS stand-ins.

find_program(BREVANE_HOST_CC NAMES gcc NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_program(BREVANE_HOST_LD NAMES ld NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_program(BREVANE_HOST_OBJCOPY NAMES objcopy NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_program(BREVANE_PYTHON NAMES python3 NO_CMAKE_FIND_ROOT_PATH REQUIRED)

set(BREVANE_DOS_CFLAGS -m16 -march=i386 -Os -mregparm=3 -std=gnu11 -ffreestanding -fno-builtin -fno-pic -ffunction-sections -fdata-sections
    -fno-asynchronous-unwind-tables -fno-stack-protector -nostdlib -Wall -Wextra -Werror -DDZ_DOS
    -I${PROJECT_SOURCE_DIR}/dos)
set(BREVANE_DOS_STUB ${PROJECT_SOURCE_DIR}/devtools/dosstub/dosstub.py CACHE INTERNAL "wraps DOS images")

# brevane_dos_image(<name> <output.bin> DEFINES <-D...> SOURCES <files>): compiles each source
# (.c or .S) and links them with dos/crt0.S, dos/intr.S and dos/runtime.c first.
function(brevane_dos_image name output)
  cmake_parse_arguments(arg "" "" "DEFINES;SOURCES" ${ARGN})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name}.objs)
  set(objects "")
  set(sources ${PROJECT_SOURCE_DIR}/dos/crt0.S ${PROJECT_SOURCE_DIR}/dos/intr.S ${PROJECT_SOURCE_DIR}/dos/runtime.c
      ${arg_SOURCES})
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${source})
    string(REGEX REPLACE "[/.]" "_" stem "${rel}")
    set(object ${dir}/${stem}.o)
    add_custom_command(OUTPUT ${object}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${BREVANE_HOST_CC} ${BREVANE_DOS_CFLAGS} ${arg_DEFINES} -c ${source} -o ${object}
      DEPENDS ${source} ${PROJECT_SOURCE_DIR}/dos/dos.ld ${PROJECT_SOURCE_DIR}/cmake/DosProgram.cmake
      IMPLICIT_DEPENDS C ${source}
      COMMENT "DOS: compiling ${rel}" VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  add_custom_command(OUTPUT ${output}
    COMMAND ${BREVANE_HOST_LD} -m elf_i386 --gc-sections -z noexecstack --no-warn-rwx-segments
            -T ${PROJECT_SOURCE_DIR}/dos/dos.ld -o ${output}.elf ${objects}
    COMMAND ${BREVANE_HOST_OBJCOPY} -O binary ${output}.elf ${output}
    DEPENDS ${objects} ${PROJECT_SOURCE_DIR}/dos/dos.ld ${PROJECT_SOURCE_DIR}/cmake/DosProgram.cmake
    COMMENT "DOS: linking ${name}" VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${output})
endfunction()
