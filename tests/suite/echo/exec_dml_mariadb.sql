# needs: mariadb
# Row counts of changes on MariaDB, an UPDATE that touches no row, a time-out
# of 0. The driver adds a LIMIT clause to every statement while a row limit is
# set, which the server refuses for DDL, so the table is made with MAXROWS 0.
connect ${WSQL_DSN}
maxrows 0
create table dml_t (id integer, name varchar(10));
maxrows 100
insert into dml_t values (1, 'one');
insert into dml_t select id + 1, 'two' from dml_t;
insert into dml_t select id + 2, 'more' from dml_t;
update dml_t set name = 'big' where id > 2;
update dml_t set name = 'none' where id > 100;
update dml_t set name = name where id = 1;
delete from dml_t where id = 1;
delete from dml_t where id = 1;
querytimeout 0
select id, name from dml_t order by id;
maxrows 0
drop table dml_t;
