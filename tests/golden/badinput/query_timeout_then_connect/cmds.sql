# A statement cancelled by the query time-out prints the driver's
# diagnostics; the connection stays usable, and a new CONNECT works.
connect @DSN@
querytimeout 1
select pg_sleep(30) as slept;
select 'same connection' as after_timeout;
connect @DSN@
select 'reconnected' as after_connect;
