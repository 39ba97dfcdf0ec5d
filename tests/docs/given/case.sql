connect demo
select id, name from customers where id < 3;
