# A result of 10241 columns is skipped with an error and the next result
# still prints; DESCRIBE refuses it the same way. A column name of 200
# characters prints with 128, after the warning of the cut name.
connect testdrv
select * from too_wide;
describe select * from too_wide;
select * from long_name;
describe select * from long_name;
