# A statement the data source rejects prints its diagnostics; the session goes on.
connect ${WSQL_DSN}
selec 1 from emp;
select nosuchcolumn from emp;
describe select nosuchcolumn from emp;
select empno from emp;
