" Vim syntax file
" Language: Quern MIDI score (*.qrn)
"
" Lines are classified by their first character, as the compiler does:
" # header, a capital letter a track, % or @ a macro, * a common line,
" + a continuation; every other line is a comment. The token classes are
" those of quern-editor's highlighter; a test compares the two on the
" example scores. Where several items start at one place, Vim takes the one
" defined last, so the line starts come after the body's items.

if exists("b:current_syntax")
  finish
endif

let s:cpo_save = &cpo
set cpo&vim

" The body of a score line, lowest priority first.
syn match quernCommand "[A-Za-z<>@]"
syn match quernNote "[a-gr]"
syn match quernLoop "[][/|]"
" A byte list ends at its "}" or at the line's end; it also ends before a
" line comment, and before a block comment that the line does not close:
" such a comment goes on in the lines below, and what follows its end is no
" longer in the list.
syn region quernBytes start="{" excludenl end="}\|$\|\%(//\|/\*\%(.*\*/\)\@!\)\@=" contains=quernBytes,quernMacroUse,quernAttribute,quernHex,quernNumber,quernString,quernBlockComment
syn match quernMacroUse "[%@]\a[0-9A-Za-z]*"
syn match quernAttribute "\u\a*"
syn match quernHex "\$\x\+"
syn match quernNumber "\d\+"
syn match quernString +"[^"]*"\=+
syn region quernBlockComment start="/\*" end="\*/"
syn match quernLineComment "//.*$" excludenl

" What the first character of a line makes of it.
syn match quernCommentLine "^[^A-Z%@*+#].*$"
syn match quernContinuation "^+"
syn match quernCommonName "^\*[A-Z~-]*"
syn match quernMacroName "^[%@]\w*"
syn match quernTrackName "^\u\w*"
syn match quernHeader "^#.*$"

syn sync fromstart

hi def link quernCommentLine Comment
hi def link quernLineComment Comment
hi def link quernBlockComment Comment
hi def link quernHeader PreProc
hi def link quernTrackName Statement
hi def link quernContinuation Statement
hi def link quernMacroName Function
hi def link quernCommonName Label
hi def link quernNote Normal
hi def link quernCommand Keyword
hi def link quernNumber Number
hi def link quernHex Number
hi def link quernLoop Repeat
hi def link quernString String
hi def link quernBytes Special
hi def link quernAttribute Type
hi def link quernMacroUse Identifier

let b:current_syntax = "quern"

let &cpo = s:cpo_save
unlet s:cpo_save
