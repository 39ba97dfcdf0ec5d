connect @DSN@
with recursive c(x) as (select 1 union all select x + 1 from c where x < 2500) select x, 'row' from c;
select deptno from dept order by deptno;
