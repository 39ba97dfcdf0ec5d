# needs: postgresql mariadb
# Negative exact numerics below one: tsv prints them by the specified rules
# (cut, marked), the other formats whole.
connect ${WSQL_DSN}
\format csv
select cast(-0.5 as decimal(1,1)) as a, cast(-0.123 as decimal(3,3)) as b, cast(-12.5 as decimal(3,1)) as c, cast(0.5 as decimal(1,1)) as d;
\format json
select cast(-0.5 as decimal(1,1)) as a, cast(-0.123 as decimal(3,3)) as b, cast(-12.5 as decimal(3,1)) as c, cast(0.5 as decimal(1,1)) as d;
\format aligned
select cast(-0.5 as decimal(1,1)) as a, cast(-0.123 as decimal(3,3)) as b;
\format expanded
select cast(-0.5 as decimal(1,1)) as a, cast(-0.123 as decimal(3,3)) as b;
\format tsv
select cast(-0.5 as decimal(1,1)) as a, cast(-0.123 as decimal(3,3)) as b;
