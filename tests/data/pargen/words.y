# Words from the toy scanner, for a parse linked to a real lexer.
%token WORD

1   0   words : words WORD
2   1   words : WORD
