# SQLSTATE 08003 from the table list marks the session not connected; the
# statement after it is refused without a call to the driver.
connect testdrv
show tables
select * from emp;
