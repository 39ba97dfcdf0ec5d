echo Ünïcödé € in a UTF-8 command file
select c_varchar from alltypes where id = 2;
