# needs: postgresql
# Types as the PostgreSQL driver reports them, with edge values.
connect ${WSQL_DSN}
select 1::smallint as s, 2147483647 as i, 9223372036854775807::bigint as b, 123.456::numeric(9,3) as n, 0.1::real as r, 1e20::float8 as d;
select 'ab'::varchar(5) as v, 'txt'::text as t, '\x00ff10'::bytea as by, ''::bytea as empty_by, 'x'::char(3) as c;
select date '0099-12-31' as dt, time '23:59:58.5' as tm, timestamp '2024-02-29 12:00:01.5' as ts_frac, timestamp '2024-02-29 12:00:01' as ts, timestamp(0) '2024-02-29 12:00:01' as ts0, true as bt, false as bf;
# An unsupported type: reported once per column when the result is bound.
select '123e4567-e89b-12d3-a456-426614174000'::uuid as u, 1 as after_u;
select null::uuid as u;
# Floating-point values in the G conversion, infinities and NaN included.
select 'NaN'::float8 as nan, '-Infinity'::float8 as ninf, 1.5e-7::float8 as small, 123456789::real as big_real, 1e40::numeric as big_numeric;
