/* Marlix 3.2: the triggers, inactive while the data was loaded, turned on. */
ALTER TRIGGER CLIENTS_BI ACTIVE;
ALTER TRIGGER CLIENTS_AI ACTIVE;
ALTER TRIGGER "ДОКУМЕНТЫ_BIU" ACTIVE;
ALTER TRIGGER SETTINGS_BD ACTIVE;
COMMIT;
