connect sqlite
with recursive c(x) as (select 1 union all select x + 1 from c where x < 105) select x from c;
select deptno from dept order by deptno;
