resfile outer.out
echo to outer file
cmdfile inner.sql
echo outer again
