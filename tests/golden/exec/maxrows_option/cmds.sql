connect sqlite
with recursive c(x) as (select 1 union all select x + 1 from c where x < 150) select x from c;
