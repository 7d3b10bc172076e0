-- The rights of Tallowmere's two roles in the database psql is connected to, run by
-- a superuser (scripts/server-setup.sh runs it; the tests run it on their cluster):
--
--   psql -v owner=ROLE -v program=ROLE -v schema=NAME -f server-roles.sql DATABASE
--
-- Both roles exist. The owner holds the schema and the tables it creates (the first
-- start or the copy to the server is done as the owner); the program role, which the
-- desks log in as, reads and writes them and makes its own working tables, but of the
-- ledger 账户流水 it may only read, insert and move movements to a new door number:
-- no other update, no delete. Tables made later get the same rights: default
-- privileges, and for the ledger the event trigger fenwary_ledger_rights. Running it
-- again is harmless and grants on the tables that exist by then.

\set ON_ERROR_STOP on
\set QUIET on

set client_min_messages = warning;
begin;

-- Nobody else reaches the database; the schema is the owner's and both roles work in it.
select format('revoke all on database %I from public', current_database()) \gexec
select format('grant connect on database %I to %I, %I', current_database(), :'owner', :'program') \gexec
create schema if not exists :"schema" authorization :"owner";
alter schema :"schema" owner to :"owner";
revoke all on schema :"schema" from public;
grant usage, create on schema :"schema" to :"program";
select format('alter role %I in database %I set search_path = %I', r, current_database(), :'schema')
  from unnest(array[:'owner', :'program']) r \gexec

-- What the owner creates in the schema: the program reads and writes it.
alter default privileges for role :"owner" in schema :"schema"
  grant select, insert, update, delete on tables to :"program";
alter default privileges for role :"owner" in schema :"schema"
  grant usage, select, update on sequences to :"program";
alter default privileges for role :"owner" in schema :"schema"
  grant execute on functions to :"program";
-- What the program creates (working tables of the month's run, drafts, the books
-- check's mark): the owner keeps every right on it, so the owner's copies read it.
alter default privileges for role :"program" in schema :"schema"
  grant all on tables to :"owner";
alter default privileges for role :"program" in schema :"schema"
  grant all on sequences to :"owner";

-- The same on what exists already (a second run after the first start).
grant select, insert, update, delete on all tables in schema :"schema" to :"program";
grant usage, select, update on all sequences in schema :"schema" to :"program";
grant execute on all functions in schema :"schema" to :"program";
select format('grant all on table %s to %I', c.oid::regclass, :'owner')
  from pg_class c
 where c.relnamespace = (select oid from pg_namespace where nspname = :'schema')
   and c.relkind in ('r', 'p', 'S') and c.relowner = (select oid from pg_roles where rolname = :'program') \gexec

-- The ledger: the program may read it, add movements and change a movement's door
-- number (a household's new door number moves its movements), nothing else.
-- Revoking UPDATE also drops the column rights, so the column's comes after.
select format('revoke update, delete, truncate, trigger, references on table %s from %I', c.oid::regclass, :'program'),
       format('grant select, insert, update (门牌号) on table %s to %I', c.oid::regclass, :'program')
  from pg_class c
 where c.relnamespace = (select oid from pg_namespace where nspname = :'schema')
   and c.relname = '账户流水' and c.relkind in ('r', 'p') \gexec

-- A ledger made later (by the owner's first start, or its copy to the server) is
-- given the same rights when it is made: whoever the default privileges let update
-- or delete it keeps only the update of 门牌号. The function runs as the role that
-- made the table, its owner, which may revoke; it names no role, so a second run
-- with other roles changes nothing in it.
-- The estate's own tables (those of the data file and the ledger's two) are made
-- by the schema's owner only: a first start with a desk's connection string would
-- give the desks a ledger of their own. It is refused and nothing is made.
create or replace function :"schema".fenwary_ledger_rights() returns event_trigger
language plpgsql set search_path = pg_catalog as $f$
declare
    t record;
    g record;
begin
    if exists (select 1
                 from pg_event_trigger_ddl_commands() d
                 join pg_class c on d.classid = 'pg_class'::regclass and c.oid = d.objid
                 join pg_namespace n on n.oid = c.relnamespace
                where c.relkind in ('r', 'p') and c.relowner <> n.nspowner
                  and c.relname in ('档案库', '项目', '缴费历史', '收费1', '收费2', '操作员', '广告', '账户流水', '账务参数')
                  and exists (select 1 from pg_proc p where p.proname = 'fenwary_ledger_rights' and p.pronamespace = n.oid))
    then
        raise exception '本系统的数据表只能由数据库的所有者建立，首次启动或复制数据到服务器请使用所有者的连接串'
            using errcode = '42501';
    end if;
    for t in
        select distinct c.oid, c.relowner
          from pg_event_trigger_ddl_commands() d
          join pg_class c on d.classid = 'pg_class'::regclass and c.oid = d.objid
         where c.relkind in ('r', 'p') and c.relname = '账户流水'
    loop
        for g in
            select a.grantee, bool_or(a.privilege_type = 'UPDATE') as updates
              from pg_class c, aclexplode(c.relacl) a
             where c.oid = t.oid and a.grantee not in (0, t.relowner)
               and a.privilege_type in ('UPDATE', 'DELETE', 'TRUNCATE', 'TRIGGER', 'REFERENCES')
             group by a.grantee
        loop
            execute format('revoke update, delete, truncate, trigger, references on table %s from %I',
                           t.oid::regclass, pg_get_userbyid(g.grantee));
            if g.updates then
                execute format('grant update (门牌号) on table %s to %I', t.oid::regclass, pg_get_userbyid(g.grantee));
            end if;
        end loop;
    end loop;
end
$f$;
revoke all on function :"schema".fenwary_ledger_rights() from public;
drop event trigger if exists fenwary_ledger_rights;
create event trigger fenwary_ledger_rights on ddl_command_end
  when tag in ('CREATE TABLE', 'CREATE TABLE AS', 'SELECT INTO', 'ALTER TABLE')
  execute function :"schema".fenwary_ledger_rights();

commit;
