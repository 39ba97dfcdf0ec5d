# Lenient mode still hands the row limit to a driver that keeps it.
connect @DSN@
select 1;
