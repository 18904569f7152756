execute ibeblock(Data_File_Name = 'Data.sql')
as
begin
  /* Writes the rows of every user table as a script of EXECUTE BLOCKs; the
     values that literals cannot carry exactly go to a blob file beside it
     (Data.lob for Data.sql). */
  ibec_progress('Table data: ' || Data_File_Name);
  rows = ibec_ExtractMetadata(ibec_GetDefaultConnection(), Data_File_Name, 'DATA');
  ibec_progress('Rows written: ' || rows);
end
