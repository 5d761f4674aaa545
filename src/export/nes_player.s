; The NSF's player: replays one stream of register writes a frame. Assembled with ca65; the writer
; embeds these bytes (nes_player.hpp) and a test assembles this file and compares them.
;
; A stream: pairs of (register index r, value v), each a write of v to $4000 + r (r below $80); $80 ends
; a frame's writes, $FF ends the sound. Right after the code the writer puts the addresses of two
; tables (the low bytes of each song's stream address, then the high bytes), the tables and the
; streams. Zero page $00-$01 holds the stream pointer; the NSF player clears RAM before INIT.
; "NSF" on the NESdev wiki: INIT gets the song in A and returns with RTS; PLAY is called once a frame.

ptr = $00

.segment "CODE"

; INIT: A = song, 0 first. The stream pointer from the tables, then the sound unit in a known silent
; state: every channel enabled, sweeps off ($08, which does not mute low notes), constant volume 0 and
; length halted on the pulses and the noise, the triangle's linear counter stopped, the DMC's level 0.
init:
        tay
        lda tables
        sta ptr
        lda tables+1
        sta ptr+1
        lda (ptr),y             ; the song's stream, low byte
        tax
        lda tables+2
        sta ptr
        lda tables+3
        sta ptr+1
        lda (ptr),y             ; and high byte
        sta ptr+1
        stx ptr
        lda #$0F
        sta $4015
        lda #$08
        sta $4001
        sta $4005
        lda #$30
        sta $4000
        sta $4004
        sta $400C
        lda #$80
        sta $4008
        lda #$00
        sta $4011
        rts

; PLAY: one frame's writes; at $FF it returns without moving, so every later call writes nothing.
play:
        ldy #0
@write: lda (ptr),y
        bmi @end
        tax
        iny
        lda (ptr),y
        sta $4000,x
        iny
        bne @write              ; Y stays below 255: a frame holds at most 127 writes
@end:   cmp #$FF
        beq @done
        iny                     ; past the $80, to the next frame
        tya
        clc
        adc ptr
        sta ptr
        bcc @done
        inc ptr+1
@done:  rts

tables:
