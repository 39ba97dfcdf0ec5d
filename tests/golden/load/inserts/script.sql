# Each job writes one row per pass: its number in the text, the pass as a parameter.
insert into emp values (${WSQL_JOB} * 1000 + ${WSQL_PASS}, 'job ${WSQL_JOB}');
