; hammer.hex: five peripheral calls every 14 cycles, with interrupts disabled (no polls): a load and
; two stores, each store preceded by the read of its destination that every format I instruction makes.
        .org 0xF000
reset:  mov     #0x5A80, &0x0120        ; watchdog held
loop:   mov.b   &0x0020, r5             ; a load  (P1IN)
        mov.b   r5, &0x0021             ; a store (P1OUT)
        inc     r6
        mov.b   r6, &0x0022             ; a store of a value that changes every time (P1DIR)
        jmp     loop
        .org 0xFFFE
        .word   reset
