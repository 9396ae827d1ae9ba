# Statements whose values travel in attributes, driven by tst_pargen.
%token NUM ID
%start list

1   0   list :
2   1   list : list stmt
3   2   stmt : ID '=' expr ';'
4   3   expr : expr '+' NUM
5   4   expr : NUM
