; blinky.s - the assembly source of blinky.hex, hand-assembled (encodings on the right).
;
; For an MSP430F149-like memory map: RAM 0x0200-0x09FF, code in flash at 0xF000, reset vector
; at 0xFFFE. Stops the watchdog, makes P1.0 an output, toggles P1OUT ten times with a delay
; loop between toggles, then ends in a jump to itself.
;
; Try it:  zimprog -target sim -verbose -setprop "Run Cycle Limit=100000" examples/blinky.hex

WDTCTL  = 0x0120
P1OUT   = 0x0021
P1DIR   = 0x0022

        .org    0xF000
reset:  mov.w   #0x0A00, SP             ; F000: 4031 0A00   stack at the top of RAM
        mov.w   #0x5A80, &WDTCTL        ; F004: 40B2 5A80 0120   WDTPW | WDTHOLD
        bis.b   #0x01, &P1DIR           ; F00A: D3D2 0022   P1.0 is an output
        mov.w   #10, R15                ; F00E: 403F 000A   toggles to do
toggle: xor.b   #0x01, &P1OUT           ; F012: E3D2 0021
        mov.w   #1000, R14              ; F016: 403E 03E8   delay count
delay:  dec.w   R14                     ; F01A: 831E
        jnz     delay                   ; F01C: 23FE
        dec.w   R15                     ; F01E: 831F
        jnz     toggle                  ; F020: 23F8
done:   jmp     done                    ; F022: 3FFF

        .org    0xFFFE
        .word   reset                   ; FFFE: F000
