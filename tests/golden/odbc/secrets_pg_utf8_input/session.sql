connect wsql*Wr0ngPw-7c1e@pg
connect nobody*Wr0ngPw-7c1e@pg
connect wsql*wsqlpw@pg
select repeat('x', 40000) as big;
select no_such_column;
resfile res.txt
errfile err.txt
connect wsql*Wr0ngPw-7c1e@pg
connect wsql*wsqlpw@pg
cmdfile inner.sql
select cast('after the command file' as varchar(40)) as phase;
multiconnect 2 wsql*Mu1tiPw-4d2a@pg
multiconnect 2 wsql*wsqlpw@pg
multidisconnect
customconnect "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=@PGPORT@;DATABASE=@DATABASE@;SSLMODE=disable;UID=wsql;PWD=Cu5tomPw-2b9d"
customconnect "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=@PGPORT@;DATABASE=@DATABASE@;SSLMODE=disable;UID=wsql;PWD=wsqlpw"
cmdfile inner.sql
select cast('after the custom connection' as varchar(40)) as phase;
resfile
errfile
connect wsql*Wr0ngPw-7c1e@pg
