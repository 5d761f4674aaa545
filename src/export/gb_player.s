; The GBS's player: replays one stream of register writes a frame. Assembled with sdasgb (SDCC); the
; writer embeds these bytes (gb_player.hpp) and a test assembles this file, links it with sdldgb and
; makes the binary with makebin, and compares them.
;
; A stream: pairs of (register index r, value v), each a write of v to $FF00 + r (r from $10 to $3F);
; $80 ends a frame's writes, $FF ends the sound. Right after the code the writer puts the table of each
; song's stream address (two bytes, low first), then the streams. Work RAM $C000-$C001 holds the stream
; pointer. A GBS player calls INIT with the song in A, then PLAY at every vertical
; blank; both return with RET and leave the interrupts and the stack alone.

ptr = 0xC000
nr10 = 0x10
nr50 = 0x24
nr51 = 0x25
nr52 = 0x26

        .area CODE (ABS)
        .org 0x0400

; INIT: A = song, 0 first. The stream pointer from the table, then the sound unit powered off, which
; clears every register whatever the player set, and on again ("Audio Registers", NR52: writes to the
; others are ignored while it is off), both sides at full volume, every channel to both, CH1's sweep off.
init::
        ld e, a
        ld d, #0
        ld hl, #table
        add hl, de
        add hl, de
        ld a, (hl+)
        ld h, (hl)
        ld (ptr), a
        ld a, h
        ld (ptr+1), a
        xor a
        ldh (nr52), a
        ld a, #0x80
        ldh (nr52), a
        ld a, #0x77
        ldh (nr50), a
        ld a, #0xFF
        ldh (nr51), a
        xor a
        ldh (nr10), a
        ret

; PLAY: one frame's writes, 56 cycles each; at $FF it returns without saving the pointer, so every later
; call writes nothing.
play::
        ld hl, #ptr
        ld a, (hl+)
        ld h, (hl)
        ld l, a
write:
        ld a, (hl+)
        bit 7, a
        jr nz, end
        ld c, a
        ld a, (hl+)
        ldh (c), a
        jr write
end:
        inc a                   ; $FF: the sound's end
        ret z
        ld a, l                 ; HL is past the $80: the next frame
        ld (ptr), a
        ld a, h
        ld (ptr+1), a
        ret

table::
