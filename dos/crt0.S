/* Start-up of the DOS program. The MZ header makes CS and SS the PSP's segment, IP 0x100 and
   SP the top of the segment, so the image runs as a flat 64 KiB program. Sets DS and ES, clears
   the upper halves of ESP and EBP (the compiler's code addresses the stack with 32-bit
   registers), clears .bss, runs dos_main and ends with its code. */
    .code16
    .section .text.start, "ax"
    .globl _start
_start:
    cli
    movw %cs, %ax
    movw %ax, %ds
    movw %ax, %es
    movw %ax, %ss
    movl $0xFFFC, %esp
    sti
    xorl %ebp, %ebp
    cld
    movl $__bss_start, %edi
    movl $__bss_end, %ecx
    subl %edi, %ecx
    xorb %al, %al
    rep stosb
    calll dos_main
    movb $0x4C, %ah
    int $0x21

    .section .note.GNU-stack, "", @progbits
