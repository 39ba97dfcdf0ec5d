# needs: sqlite postgresql
# Row counts of changes, an UPDATE that touches no row, a time-out of 0.
connect ${WSQL_DSN}
create table dml_t (id integer, name varchar(10));
insert into dml_t values (1, 'one');
insert into dml_t select id + 1, 'two' from dml_t;
insert into dml_t select id + 2, 'more' from dml_t;
update dml_t set name = 'big' where id > 2;
update dml_t set name = 'none' where id > 100;
delete from dml_t where id = 1;
delete from dml_t where id = 1;
querytimeout 0
select id, name from dml_t order by id;
drop table dml_t;
