ncmdfile b.sql
