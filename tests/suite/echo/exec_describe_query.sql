# DESCRIBE of a query prepares it and describes its columns; it never runs it.
connect ${WSQL_DSN}
describe select * from alltypes;
describe select empno as "Emp No", ename from emp where empno = 1;
describe select * from no_such_table;
