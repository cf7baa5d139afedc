select 'never closed
