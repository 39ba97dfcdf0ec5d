# Server-side checks of the connection set on MariaDB: the connections are
# really made, a set can be replaced, and a set stopped by the account's
# connection limit keeps the ones made. (Counts are read only while
# connections open: a closed session leaves the process list a moment later.)
# CREATE and DROP run with MAXROWS 0, since the driver adds a LIMIT clause to
# them while a row limit is set.
connect @DSN@
multiconnect 2 @DSN@
select count(*) as n from information_schema.processlist where db = database();
multiconnect 3 @DSN@
multidisconnect
maxrows 0
create or replace user wsql_limit2 identified by 'limitpw' with max_user_connections 2;
grant select on *.* to wsql_limit2;
maxrows 100
multiconnect 3 wsql_limit2*limitpw@@DSN@
select count(*) as n from information_schema.processlist where user = 'wsql_limit2';
multidisconnect
maxrows 0
drop user wsql_limit2;
