# needs: mariadb
connect ${WSQL_DSN}
select cast(18446744073709551615 as unsigned) as big, cast(4294967295 as unsigned) as u32, cast(-1 as signed) as s;
