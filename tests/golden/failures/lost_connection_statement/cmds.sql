# SQLSTATE 08003 from a statement marks the session not connected; the
# commands after it are refused without a call to the driver. Connecting
# again releases the lost connection first, so the driver manager takes it.
connect testdrv
select * from emp;
select * from emp;
describe emp
describe select * from emp;
show tables
connect testdrv
