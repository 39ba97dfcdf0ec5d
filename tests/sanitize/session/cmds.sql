# One session through every kind of command, on a connection and off it, with
# failures of every kind among them. The sanitizer build runs it as its leak
# check: whatever wsql allocated must be freed or still owned when it exits.
help
echo Not connected: statements, catalog commands and the self-test are refused.
select ename from emp;
describe select ename from emp;
describe emp
show tables
cmdfile o:
commit
rollback
disconnect
multidisconnect
end
# Settings, taken before a connection exists.
maxrows 50
querytimeout 30
fetch 10
autocommit off
timer start
wait 0
connect nosuch
connect wsql*wsqlpw@@DSN@
# Results of every kind: rows of every type, counts, no rows, failures.
select * from alltypes order by id;
insert into emp values (2, 'Emp2-1');
update emp set ename = 'Emp2-2' where empno = 2;
delete from emp where empno = 99;
select ename from emp where empno = 99;
select no_such_column from emp;
exec select count(*) as n
  from dept
  where deptno > 0;
maxrows 2
select deptno from dept order by deptno;
maxrows 50
describe select empno as "Emp No", ename from emp;
describe select * from no_such_table;
# Transactions: auto-commit was turned off before connecting.
insert into emp values (3, 'Emp3-1');
rollback
insert into emp values (4, 'Emp4-1');
commit
rollback
select empno, ename from emp order by empno;
autocommit on
# Catalog commands, their results kept in a file: the PostgreSQL catalog
# column holds the run's own database name.
resfile catalog.out
show tables
list tables "%"."%".emp;
show tables "%"."%".no_such_table
describe dept
describe no_such_table
resfile
# Results and errors sent to files and back.
resfile results.out
errfile errors.out
select ename from emp order by empno;
select * from no_such_table;
errfile
resfile
# Driver-specific statements and large columns (-r), then the large-column
# folder moved, first where it cannot be made.
cmdfile per_db_@DSN@.sql
resdir no/such/folder/
resdir largecolresult/
select id, t, b, id * 10 as after from lc order by id;
# Nested command files: one that disconnects (its parent is connected again
# when it ends), one in UTF-8.
cmdfile nested.sql
ncmdfile utf8.sql
cmdfile no_such_file.sql
# A block run three times: its insert fails from the second pass on.
repeat 3
echo pass
insert into dept values (40, 'OPERATIONS', NULL);
select count(*) as n from dept;
end
repeat 0
echo never
end
# Connection sets, a connect string, and a wrong password.
multiconnect 3 @DSN@
multiconnect 2 wsql*wsqlpw@@DSN@
multidisconnect
multiconnect 2 nosuch
customconnect "DSN=@DSN@;"
select ename from emp where empno = 1;
customconnect "DSN=nosuch;"
connect wsql*wrongpw@@DSN@
connect @DSN@
# The built-in parameter test.
cmdfile o:
timer stop
stop timer
# The end comes from a nested file with its own results file open.
cmdfile finish.sql
echo never reached
