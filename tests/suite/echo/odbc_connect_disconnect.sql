# DISCONNECT, COMMIT and ROLLBACK before any connection; CONNECT while
# connected; a missing data source; DISCONNECT after the failed CONNECT.
disconnect
commit
rollback
connect ${WSQL_DSN}
select ename from emp;
connect ${WSQL_DSN}
select ename from emp;
disconnect
disconnect
connect nosuch
disconnect
select ename from emp;
connect ${WSQL_DSN}
connect nosuch
select ename from emp;
