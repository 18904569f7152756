/* The roles and privileges that ADMN, the product's administrator, grants
   to the users in Marlix 3.1 (run as ADMN after grants.sql). */
GRANT R_OPERATOR TO OPERATOR;
GRANT "БУХГАЛТЕР" TO KASSA;
GRANT UPDATE (NAME, NOTE) ON CLIENTS TO OPERATOR;
GRANT SELECT ON SETTINGS TO KASSA;
COMMIT;
