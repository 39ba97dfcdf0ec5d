# needs: postgresql mariadb
# Under --lenient tsv prints exact values too: a negative numeric below one
# whole; on MariaDB unsigned integers and a signed TINYINT as they are held.
connect ${WSQL_DSN}
select cast(-0.5 as decimal(1,1)) as a, cast(-0.123 as decimal(3,3)) as b;
