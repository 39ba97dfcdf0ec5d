# Auto-commit set before the connection holds once connected: ROLLBACK
# undoes an INSERT, COMMIT keeps the next one, and a ROLLBACK after the
# COMMIT changes nothing.
autocommit off
connect @DSN@
insert into emp values (2, 'Emp2-1');
select count(*) from emp;
rollback
select count(*) from emp;
insert into emp values (3, 'Emp3-1');
commit
rollback
select count(*) from emp;
autocommit on
insert into emp values (4, 'Emp4-1');
rollback
select count(*) from emp;
disconnect
commit
