# Statements with error recovery, driven by tst_pargen. Values travel in attributes.
%token NUM ID
%start list
%destructor 100 NUM expr

1   0   list :
2   1   list : list stmt
3   2   stmt : ID '=' expr ';'
4   3   stmt : error ';'
5   4   expr : expr '+' NUM
6   5   expr : NUM
