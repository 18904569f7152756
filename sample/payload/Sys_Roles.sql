execute ibeblock(Roles_File_Name = 'Roles.sql')
as
begin
  /* Writes the roles granted to the database's users as GRANT statements.
     The grants to SYSDBA and ADMN are the new database's own. */
  f = ibec_fs_OpenFile(Roles_File_Name, 'create');
  for select trim(p.rdb$relation_name), trim(p.rdb$user), p.rdb$grant_option
      from rdb$user_privileges p
      where p.rdb$privilege = 'M' and p.rdb$user_type = 8
        and p.rdb$user not in ('SYSDBA', 'ADMN', 'PUBLIC')
      order by p.rdb$relation_name, p.rdb$user
      into :role_name, :user_name, :admin do
  begin
    line = 'GRANT ' || ibec_QuoteIdent(role_name) || ' TO ' || ibec_QuoteIdent(user_name);
    if (admin is not null and admin <> 0) then
      line = line || ' WITH ADMIN OPTION';
    ibec_fs_Writeln(f, line || ';');
  end
  ibec_fs_Writeln(f, 'COMMIT WORK;');
  ibec_fs_CloseFile(f);
end
