# A value longer than can be read is left out with a message, never cut and
# marked inside the field; the command counts as failed.
connect testdrv
select big, n from t;
select 'after';
