# A right-recursive chain that keeps every A on the stack until the B; no error rules.
%token A B
%stack 100

1   0   chain : A chain
2   1   chain : B
