# Binding a long column with a short buffer fails where SQLGetData may read
# bound columns (GETINFO 11): SQLGetData alone reads it, whole.
connect testdrv
select body from long_text;
