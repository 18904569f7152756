/* The roles and privileges that SYSDBA grants to the product's users in
   Marlix 3.1 (run as SYSDBA after schema.sql). */
GRANT R_READER TO AUDITOR;
GRANT R_READER TO OPERATOR WITH ADMIN OPTION;
GRANT "БУХГАЛТЕР" TO "КАССИР";
GRANT SELECT ON SETTINGS TO AUDITOR;
GRANT SELECT ON AUDIT_LOG TO AUDITOR;
COMMIT;
