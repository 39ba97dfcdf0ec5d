# A warning is a success for connecting, a failure for the rest.
connect testdrv
select 1 as n;
select 2 as n;
commit
autocommit off
customconnect "DSN=testdrv"
