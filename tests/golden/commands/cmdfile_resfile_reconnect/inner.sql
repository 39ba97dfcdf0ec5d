resfile inner.out
connect other
select 1 as one;
