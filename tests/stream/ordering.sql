connect s
select * from t;
select * from missing;
echo between the errors
update t set y = y where x = 3;
select x from t where x = 1;
connect nosuchdsn
show tables
select 1 from;
disconnect
