# A batch of a query, a change and another query prints each result in turn
# (PostgreSQL); SQLite takes one statement at a time and refuses the batch,
# as the MariaDB driver does unless its data source allows batches.
connect ${WSQL_DSN}
select deptno, dname, loc from dept order by deptno; update dept set loc = loc where deptno = 10; select 'x' || empno as e from emp;
select count(*) as n from dept;
