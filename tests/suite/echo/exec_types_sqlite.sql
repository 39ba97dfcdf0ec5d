# needs: sqlite
# Types as the SQLite driver maps declared type names, with edge values.
connect ${WSQL_DSN}
create table t (a tinyint, b bit, c varchar(5), d longvarbinary, e datetime, f float, g real, h varbinary(2));
insert into t values (200, 1, 'abcdefghij', X'00DEADBEEF', '2024-01-15 13:45:30.123', 1e20, 0.1, X'FFFF');
insert into t values (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
select * from t;
# Five characters of varchar(5) fit; more are cut and marked.
select c from t where c is not null;
drop table t;
