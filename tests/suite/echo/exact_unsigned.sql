# needs: mariadb
# Unsigned integers to their largest values and a signed TINYINT: tsv prints
# them by the specified rules (as signed, the TINYINT as a byte), the other
# formats as the database holds them.
connect ${WSQL_DSN}
maxrows 0
create table exact_u (a int unsigned, b bigint unsigned, c smallint unsigned, d tinyint unsigned, e int, f tinyint);
insert into exact_u values (4294967295, 18446744073709551615, 65535, 255, -7, -128), (0, 9223372036854775808, 0, 0, 0, 127), (NULL, NULL, NULL, NULL, NULL, NULL);
\format csv
select * from exact_u order by a;
\format json
select * from exact_u order by a;
\format aligned
select * from exact_u order by a;
\format expanded
select * from exact_u where a = 0;
\format tsv
select * from exact_u order by a;
drop table exact_u;
