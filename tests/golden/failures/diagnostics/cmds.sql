# Diagnostic records of failed statements: one block per record, in the order
# the driver manager hands them out, and the bracketed native code at the end
# of a message; a message longer than the driver manager keeps (511
# characters) arrives cut.
connect testdrv
select 1 from two_records;
select 2 from bracket_number;
select 3 from bracket_letters;
select 4 from only_bracket;
select 5 from negative_native;
select 6 from bracket_blank_and_sign;
select 7 from bracket_digits_then_letters;
select 8 from long_message;
select 9 from bracket_in_the_middle;
# Only the SQLSTATE of the last record counts for the lost-connection test.
select 10 from lost_but_not_last;
select 11 as still_connected;
