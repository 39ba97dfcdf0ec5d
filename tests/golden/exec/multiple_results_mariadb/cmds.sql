# A batch of a query, a change and another query prints each result in turn
# when the MariaDB driver is told to allow batches (option flag 67108864);
# the driver counts changed rows, not matched ones, so an UPDATE that changes
# nothing counts 0.
customconnect "DSN=@DSN@;OPTION=67108864"
select deptno, dname, loc from dept order by deptno; update dept set loc = loc where deptno = 10; update dept set loc = 'BOSTON' where deptno = 20; select concat('x', empno) as e from emp;
select count(*) as n from dept;
