# needs: postgresql mariadb
# Under --lenient tsv sends and prints characters above U+FFFF as they are,
# and a -n file of 4-byte UTF-8 is read.
connect ${WSQL_DSN}
maxrows 0
create table exact_t (id int, t varchar(20));
insert into exact_t values (1, '😀x'), (2, 'a𝄞b'), (3, 'plain');
select * from exact_t order by id;
ncmdfile _astral_line.sql
drop table exact_t;
