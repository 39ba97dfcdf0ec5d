# Test mode: plain counts even at the row limit, errors on standard output.
connect @DSN@
maxrows 3
select deptno from dept order by deptno;
describe select deptno, dname, loc from dept;
select * from no_such_table;
