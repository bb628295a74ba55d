" Score files of Quern MIDI.
autocmd BufRead,BufNewFile *.qrn setfiletype quern
