# Every column type of the common test table, NULLs in row 3, an empty result.
connect ${WSQL_DSN}
select * from alltypes order by id;
select c_varchar, c_text from alltypes where id = 2;
select * from emp where 1 = 0;
