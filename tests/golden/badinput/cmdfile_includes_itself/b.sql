# Includes a.sql, which includes this file again.
ncmdfile a.sql
