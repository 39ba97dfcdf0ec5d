# SQLite takes one statement at a time.
select 1 as a; select 2 as b;
create table lc (id integer, t longvarchar, b longvarbinary);
insert into lc values (1, replace(hex(zeroblob(40000)), '00', 'a') || 'é', X'00FF7F80');
insert into lc values (2, NULL, NULL);
insert into lc values (3, 'short ü', zeroblob(40000));
