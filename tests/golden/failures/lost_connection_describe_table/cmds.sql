# SQLSTATE 08003 from the column query of DESCRIBE marks the session not
# connected; the statement after it is refused without a call to the driver.
connect testdrv
describe emp
select * from emp;
