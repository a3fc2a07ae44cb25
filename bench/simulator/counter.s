; counter.s - the benchmark firmware of counter.hex, hand-assembled (encodings on the right).
;
; A tight counting loop: a 32-bit counter in R11:R12 is incremented 200 x 65536 times, then the
; program ends in a jump to itself at 0xF020. It executes 52,429,406 instructions (the final
; jump included) and 65,536,813 cycles; long enough that process start-up hardly counts.

        .org    0xF000
reset:  mov.w   #0x0A00, SP             ; F000: 4031 0A00
        mov.w   #0x5A80, &0x0120        ; F004: 40B2 5A80 0120   stop the watchdog
        clr.w   R11                     ; F00A: 430B
        clr.w   R12                     ; F00C: 430C
        mov.w   #200, R13               ; F00E: 403D 00C8
outer:  clr.w   R15                     ; F012: 430F   65536 inner rounds
inner:  add.w   #1, R12                 ; F014: 531C
        addc.w  #0, R11                 ; F016: 630B
        dec.w   R15                     ; F018: 831F
        jnz     inner                   ; F01A: 23FC
        dec.w   R13                     ; F01C: 831D
        jnz     outer                   ; F01E: 23F9
done:   jmp     done                    ; F020: 3FFF

        .org    0xFFFE
        .word   reset                   ; FFFE: F000
