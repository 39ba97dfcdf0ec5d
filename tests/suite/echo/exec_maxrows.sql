# The row limit: 100 by default, cut with a notice; a count equal to the
# limit gets the notice too; MAXROWS 0 lifts the limit.
connect ${WSQL_DSN}
with recursive c(x) as (select 1 union all select x + 1 from c where x < 150) select x from c;
maxrows 3
select deptno, dname from dept order by deptno;
describe select deptno, dname, loc from dept;
maxrows 2
select deptno, dname from dept order by deptno;
maxrows 0
select deptno, dname from dept order by deptno;
describe select deptno, dname, loc from dept;
