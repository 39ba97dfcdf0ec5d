# The name parts of SHOW TABLES, LIST TABLES and DESCRIBE reach the catalog
# functions as patterns, absent parts as null pointers (which no real
# database tells from empty ones): `check` reads them in the call log.
connect testdrv
show tables
show tables cat
show tables cat.own.tab
list tables cat.own
describe emp
describe own.emp
describe cat.own.emp
