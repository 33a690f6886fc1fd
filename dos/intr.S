/* Software interrupts for the C code: dos_int21(regs), bios_int10/15/16/1a(regs). The register
   block is { ax, bx, cx, dx, si, di, ds, es, flags } as 16-bit words; it is loaded, the
   interrupt raised and the block filled with what the interrupt left. EBX, ESI, EDI, EBP, DS
   and ES are preserved for the compiler. */
    .code16
    .text
.macro INTERRUPT name, number
    .globl \name
\name:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushw %ds
    pushw %es
    movl 8(%ebp), %ebx
    pushl %ebx
    movw 4(%bx), %cx
    movw 6(%bx), %dx
    movw 8(%bx), %si
    movw 10(%bx), %di
    movw 14(%bx), %ax
    movw %ax, %es
    pushw 12(%bx)
    movw 0(%bx), %ax
    movw 2(%bx), %bx
    popw %ds
    int $\number
    pushw %ds
    pushw %bx
    pushfw
    pushw %ax
    movw %ss, %ax
    movw %ax, %ds
    movl -20(%ebp), %ebx
    popw %ax
    movw %ax, 0(%bx)
    popw %ax
    movw %ax, 16(%bx)
    popw %ax
    movw %ax, 2(%bx)
    popw %ax
    movw %ax, 12(%bx)
    movw %cx, 4(%bx)
    movw %dx, 6(%bx)
    movw %si, 8(%bx)
    movw %di, 10(%bx)
    movw %es, %ax
    movw %ax, 14(%bx)
    addl $4, %esp
    popw %es
    popw %ds
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    retl
.endm

INTERRUPT dos_int21, 0x21
INTERRUPT bios_int10, 0x10
INTERRUPT bios_int15, 0x15
INTERRUPT bios_int16, 0x16
INTERRUPT bios_int1a, 0x1A

    .section .note.GNU-stack, "", @progbits
