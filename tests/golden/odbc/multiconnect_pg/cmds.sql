# Server-side checks of the connection set: a replaced set is really closed,
# and a set stopped by the server's connection limit keeps the ones made.
connect @DSN@
multiconnect 2 @DSN@
multiconnect 3 @DSN@
select count(*) from pg_stat_activity where datname = current_database();
multidisconnect
select count(*) from pg_stat_activity where datname = current_database();
create role wsql_limit2 login password 'limitpw' connection limit 2;
multiconnect 3 wsql_limit2*limitpw@@DSN@
select count(*) from pg_stat_activity where datname = current_database();
multidisconnect
drop role wsql_limit2;
