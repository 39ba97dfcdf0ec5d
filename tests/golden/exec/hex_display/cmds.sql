connect pg
select 'AB' as ab, 'é€' as eu, '' as empty, 7 as n;
