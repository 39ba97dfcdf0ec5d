# Several results from one batch, a notice, and a statement cancelled by the
# query time-out.
select deptno from dept order by deptno; update dept set loc = loc where deptno = 10; select 'x' as x;
do $$ begin raise notice 'a notice'; end $$;
querytimeout 1
select pg_sleep(3) as slept;
querytimeout 0
create table lc (id integer, t text, b bytea);
insert into lc values (1, repeat('a', 20000) || U&'\+01F600\00E9', decode(repeat('00ff7f80', 10000), 'hex'));
insert into lc values (2, NULL, NULL);
insert into lc values (3, U&'short \00FC', decode(repeat('cd', 40000), 'hex'));
