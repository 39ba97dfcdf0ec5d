# needs: postgresql mariadb
# Characters above U+FFFF: sent in statements as surrogate pairs and printed
# as themselves in csv, json, aligned and expanded; tsv keeps the specified
# rules (such a value prints empty). A -n file of 4-byte UTF-8 is read too.
connect ${WSQL_DSN}
maxrows 0
\format csv
create table exact_t (id int, t varchar(20));
insert into exact_t values (1, '😀x'), (2, 'a𝄞b'), (3, 'plain');
select * from exact_t order by id;
\format json
select * from exact_t order by id;
ncmdfile _astral_line.sql
\format aligned
select * from exact_t order by id;
\format expanded
select * from exact_t where id = 2;
\format tsv
select * from exact_t order by id;
drop table exact_t;
