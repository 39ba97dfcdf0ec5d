# A self-describing column (type -12) prints each value by its own type; a
# value of type 0 and one of an unsupported type (-11) print nothing but an
# error; SQL_NO_TOTAL and SQL_NTS indicators on bound text and wide text.
connect testdrv
select * from odd_types;
