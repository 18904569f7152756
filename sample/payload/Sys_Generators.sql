execute ibeblock(Generators_File_Name = 'Generators.sql')
as
begin
  /* Writes the user generators of the database with their current values,
     as statements that restart each generator at its value. */
  f = ibec_fs_OpenFile(Generators_File_Name, 'create');
  for select trim(rdb$generator_name) from rdb$generators
      where coalesce(rdb$system_flag, 0) = 0
      order by rdb$generator_name
      into :name do
  begin
    execute statement 'select gen_id(' || ibec_QuoteIdent(name) || ', 0) from rdb$database'
      into :value;
    ibec_fs_Writeln(f, 'ALTER SEQUENCE ' || ibec_QuoteIdent(name) || ' RESTART WITH ' ||
                       value || ';');
  end
  ibec_fs_Writeln(f, 'COMMIT WORK;');
  ibec_fs_CloseFile(f);
end
