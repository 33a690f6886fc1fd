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

/* int dos_exec(const char* program, const void* parameterBlock): int 21h AX=4B00h, load and
   run. Answers 0, or the negative DOS error code. DOS may leave any register but CS:IP changed
   when the child ends, so the stack is restored from the code segment (CS = DS = SS here). */
    .globl dos_exec
dos_exec:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushw %ds
    pushw %es
    movw 8(%ebp), %dx
    movw 12(%ebp), %bx
    movw %ds, %ax
    movw %ax, %es
    movl %esp, %cs:exec_esp
    movw %ss, %cs:exec_ss
    movw $0x4B00, %ax
    int $0x21
    cli
    movw %cs:exec_ss, %bx
    movw %bx, %ss
    movl %cs:exec_esp, %esp
    sti
    movzwl %ax, %eax
    jnc 1f
    negl %eax
    jmp 2f
1:  xorl %eax, %eax
2:  popw %es
    popw %ds
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    retl
exec_esp:
    .long 0
exec_ss:
    .word 0

/* void machine_restart(void): the keyboard controller's reset line, then, should the machine
   still run, a jump to the reset vector. The warm-start flag skips the memory test. */
    .globl machine_restart
machine_restart:
    cli
    movw $0x40, %ax
    movw %ax, %ds
    movw $0x1234, 0x72
    movw $0xFFFF, %cx
1:  inb $0x64, %al
    testb $2, %al
    loopnz 1b
    movb $0xFE, %al
    outb %al, $0x64
    movw $0xFFFF, %cx
2:  loop 2b
    ljmp $0xFFFF, $0x0000

    .section .note.GNU-stack, "", @progbits
