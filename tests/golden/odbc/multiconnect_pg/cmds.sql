# Server-side checks of the connection set: the connections are really made,
# a set can be replaced, and a set stopped by the server's connection limit
# keeps the ones made. (Counts are read only while connections open: a closed
# backend leaves the server's activity view a moment later.)
connect @DSN@
multiconnect 2 @DSN@
select count(*) from pg_stat_activity where datname = current_database();
multiconnect 3 @DSN@
multidisconnect
create role wsql_limit2 login password 'limitpw' connection limit 2;
multiconnect 3 wsql_limit2*limitpw@@DSN@
select count(*) from pg_stat_activity where usename = 'wsql_limit2';
multidisconnect
drop role wsql_limit2;
