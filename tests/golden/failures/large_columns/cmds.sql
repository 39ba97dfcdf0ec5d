# Long columns go to files: chunk lengths given as SQL_NO_TOTAL, as SQL_NTS,
# and a driver that keeps answering SQL_NO_DATA (the value ends, the row goes
# on). `check` compares the files.
connect testdrv
select * from no_total;
select * from nts;
select * from no_data;
